#include "cli/command_table.h"

#include "adapter/network_name_query.h"
#include "cli/version_banner.h"
#include "common/exit_codes.h"
#include "companion/companion_probe.h"

namespace {

struct Command {
    char letter;
    int (*run)();
};

const Command CommandTable[] = {
    {'@', RunCompanionProbe},
    {'H', RunNetworkNameQuery},
    {'V', PrintVersionBanner},
};

const Command *FindCommand(char letter)
{
    for (const Command &command : CommandTable) {
        if (command.letter == letter)
            return &command;
    }
    return nullptr;
}

} // namespace

int DispatchCommand(int argc, char *argv[])
{
    if (argc < 2)
        return ExitNoCommand;
    // The letter is judged before the length or the argument count.
    const Command *command = FindCommand(argv[1][0]);
    if (command == nullptr)
        return ExitNoCommand;
    if (argv[1][1] != '\0' || argc != 2)
        return ExitMalformedCommand;
    return command->run();
}
