// Registration of the storage layer's class records (after the foundation's).
#pragma once

void SLRegisterStorageClasses();
