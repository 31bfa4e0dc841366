// Placeholder until this group of tests is written.
#include "probe.h"
void TestOutputBasic() {}
void TestSequentialOutput() {}
void TestSimultaneousOutput() {}
void ZeroAllOutputs() {}
