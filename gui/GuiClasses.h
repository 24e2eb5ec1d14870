// Registration of the GUI layer's class records (after the layers below it).
#pragma once

void SLRegisterGuiClasses();
