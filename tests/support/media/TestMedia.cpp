#include "tests/support/media/TestMedia.h"
