#include "logcapture.h"
