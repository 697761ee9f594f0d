#include "plain/Plain.h"
