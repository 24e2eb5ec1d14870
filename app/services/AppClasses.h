// Registration of the application's class records, after the layers below it.
#pragma once

void SLRegisterAppClasses();
