// Placeholder until this group of tests is written.
#include "probe.h"
void TestContinuousOutput() {}
void TestBurstOneShot() {}
void TestBurstSequence() {}
