#include "dbo/dbo.h"
