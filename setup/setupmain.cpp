// The setup's single application object.
#include "setupapp.h"

CSetupApp theApp;
