// Charge units: evaluation of the charge block.
#include "app/HauptFormular.h"

void THauptFenster::EvaluateCharges() {
    ZeigeMeldung(0, 0);
    if (AutoEnde)
        AutoEndeZaehler = 3;
}
