// frame_demo: a design tool in miniature (see frame_demo.cpp).
#include "frame_demo.h"

int main(int argc, char **argv)
{
    return run_frame_demo(argc, argv);
}
