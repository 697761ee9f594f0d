#include <plain/Plain.h>
#include "common/Helper.h"
#include "window/Window.h"
