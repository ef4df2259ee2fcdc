#include "TestSupport.h"
#include "FrameworkTestMain.h"

int main (int argc, char** argv)
{
    return runTestsInTemporaryHome (argc, argv, "vro-home");
}
