#pragma once
#include <sys/types.h>
#include <window/Window.h>
