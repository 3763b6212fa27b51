// Tray icon, tray menu and the window message hook.
#include "app/HauptFormular.h"

void THauptFenster::BaueDesktop() {}

void THauptFenster::TaskleistenIconClick() {}
