#include "bench.h"
#include "child.h"
#include "driver.h"

#include <cstring>

int main(int argc, char* argv[])
{
    // The driver re-executes this binary once per run, so that each run
    // starts cold and its peak memory is its own.
    if (argc > 1 && std::strcmp(argv[1], bench::kChildFlag) == 0)
        return bench::runChild(argc, argv);
    return bench::runDriver(argc, argv);
}
