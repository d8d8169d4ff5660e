// The one application object, made before anything else runs; the platform's entry point runs it.
#include "app/tavrin_app.h"

app::CTavrinApp theApp;
