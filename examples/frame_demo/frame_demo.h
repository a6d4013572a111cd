// The demonstration tool's in-process entry: runs one whole tool run and
// returns its exit status.
#pragma once

int run_frame_demo(int argc, char **argv);
