// Registration of the media layer's class records (after the layers below it).
#pragma once

void SLRegisterMediaClasses();
