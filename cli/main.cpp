#include "plugin/plugin.h"

int main() { return 0; }
