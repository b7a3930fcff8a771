#pragma once

// The benchmark's driver: generates the fonts, starts an X server, runs every
// configuration in fresh child processes and prints the table.

namespace bench
{

int runDriver(int argc, char** argv);

} // namespace bench
