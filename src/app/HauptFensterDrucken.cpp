// The printed report.
#include "app/HauptFormular.h"

void THauptFenster::DruckenButtonClick() {}
