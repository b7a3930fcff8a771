#pragma once

// A child process of the benchmark: one configuration, one run, measured
// inside the real window and printed as one line of figures.

namespace bench
{

// argv as given to main(), argv[1] being the child flag.
int runChild(int argc, char** argv);

} // namespace bench
