#pragma once
#include <window/Window.h>
