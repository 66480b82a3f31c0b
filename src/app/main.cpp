#include "app/CommandLine.h"

int main(int argc, char** argv)
{
    return tavirlen::runCommandLine(argc, argv);
}
