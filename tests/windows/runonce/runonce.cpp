// kvtestrunonce: stands in for the system's runonce.exe, which Wine does not have. An installation
// test copies it as runonce.exe into the INF's folder, the current directory while the installation
// starts "runonce"; each run leaves "runonce" on the installation tests' trail (kvtest/mark.h).
#include "../kvtest/mark.h"

int main() { return AppendMark("runonce") ? 0 : 1; }
