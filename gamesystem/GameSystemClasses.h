// Registration of the game-system layer's class records (after the layers below).
#pragma once

void SLRegisterGameSystemClasses();
