// Runs the GoogleTest cases of a Windows test program, with failures
// reported on standard output only (see testmain.cpp). A test program that
// also plays helper processes has its own main and calls this for the tests.
#pragma once

int RunTests(int argc, char** argv);
