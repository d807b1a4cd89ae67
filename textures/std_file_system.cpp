#include "textures/textures.h"
