#include "plugin/plugin.h"
