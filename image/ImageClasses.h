// Registration of the image layer's class records (after the storage layer's).
#pragma once

void SLRegisterImageClasses();
