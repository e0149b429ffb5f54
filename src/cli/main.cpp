#include "cli/command_table.h"

int main(int argc, char *argv[])
{
    return DispatchCommand(argc, argv);
}
