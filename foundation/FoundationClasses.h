// Registration of the foundation's class records, in one fixed order.
#pragma once

// Registers the records once (later calls do nothing). Enumeration yields the newest first.
void SLRegisterFoundationClasses();
