// Helpers shared by the test programs.
#pragma once

// Registers every class record of every layer, in the program's fixed order.
void SLTestRegisterClasses();
