#include "version.h"

const char* GetVersionText()
{
    return "vornscr 0.1";
}
