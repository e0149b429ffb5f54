#include "inventory/table_run.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "inventory/error_lines.h"
#include "inventory/table_field.h"
#include "platform/posix/base/fd_io.h"

volatile sig_atomic_t CaughtSignal = 0;

namespace {

const char *const Commands[] = {"H", "@"}; // a job is root * 2 + its command's index

struct RootState {
    std::string prefix;  // the escaped root and ": ", before each of its stderr lines
    std::string network; // what H wrote
    ChildOutcome outcomes[2];
    int pending;
};

struct Slot {
    RunningChild child;
    std::size_t job;
    std::string errorLine; // stderr text not yet ended by a newline
    bool outOpen, errOpen;
};

struct Inventory {
    const TableRun &run;
    std::size_t perRow; // runs a row: H and @, or the listing's one
    std::vector<RootState> states;
    std::vector<Slot> running;
    std::size_t nextJob, nextLine;
    bool failed;
};

void Complain(const std::string &text)
{
    WriteErrorLines(text);
}

void StartJob(Inventory &inventory, std::size_t job)
{
    std::size_t root = job / inventory.perRow;
    const char *command = Commands[job % inventory.perRow];
    const TableRow &row = inventory.run.rows[root];
    std::vector<std::string> environment = inventory.run.environment;
    environment.push_back(std::string("DOROVIVI_ROOT=") + row.root);
    environment.push_back("DOROVIVI_ATOMS=" + inventory.run.scratch + "/atoms." + std::to_string(root));
    if (!row.state.empty())
        environment.push_back("DOROVIVI_STATE=" + row.state);
    Slot slot = {};
    slot.job = job;
    const TableRun &run = inventory.run;
    int error = 0;
    if (!StartChild(run.program, {run.program.path, command}, environment, run.childMask, slot.child, error)) {
        RootState &state = inventory.states[root];
        Complain(state.prefix + "cannot run " + run.program.path + " " + command + ": " + std::strerror(error) + "\n");
        state.outcomes[job % inventory.perRow] = {ChildOutcome::NotStarted, 0};
        --state.pending;
        return;
    }
    slot.outOpen = slot.errOpen = true;
    inventory.running.push_back(slot);
}

// Passes on the complete stderr lines, and at the end the rest as a line.
void PassErrorLines(Inventory &inventory, Slot &slot, bool atEnd)
{
    const std::string &prefix = inventory.states[slot.job / inventory.perRow].prefix;
    const char *root = inventory.run.rows[slot.job / inventory.perRow].root;
    const char *command = Commands[slot.job % inventory.perRow];
    std::string lines;
    std::size_t start = 0, end;
    while ((end = slot.errorLine.find('\n', start)) != std::string::npos) {
        AppendRunErrorLine(lines, std::string_view(slot.errorLine).substr(start, end - start), prefix, root, command);
        start = end + 1;
    }
    slot.errorLine.erase(0, start);
    if (atEnd && !slot.errorLine.empty()) {
        AppendRunErrorLine(lines, slot.errorLine, prefix, root, command);
        slot.errorLine.clear();
    }
    if (!lines.empty())
        WriteAll(STDERR_FILENO, lines.data(), lines.size());
}

void ReadPipe(Inventory &inventory, Slot &slot, bool isStdout)
{
    int &fd = isStdout ? slot.child.outFd : slot.child.errFd;
    char chunk[4096];
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got <= 0) {
        close(fd);
        (isStdout ? slot.outOpen : slot.errOpen) = false;
        if (!isStdout)
            PassErrorLines(inventory, slot, true);
        return;
    }
    if (!isStdout) {
        slot.errorLine.append(chunk, static_cast<std::size_t>(got));
        PassErrorLines(inventory, slot, false);
    } else if (slot.job % inventory.perRow == 0) {
        inventory.states[slot.job / inventory.perRow].network.append(chunk, static_cast<std::size_t>(got));
    }
}

void FinishSlot(Inventory &inventory, Slot &slot)
{
    RootState &state = inventory.states[slot.job / inventory.perRow];
    ChildOutcome outcome = WaitChild(slot.child.pid);
    int error = errno, execError = 0;
    const char *command = Commands[slot.job % inventory.perRow];
    if (ExecFailed(slot.child, execError)) {
        Complain(state.prefix + "cannot run " + inventory.run.program.path + " " + command + ": " +
                 std::strerror(execError) + "\n");
        outcome = {ChildOutcome::NotStarted, 0};
    } else if (outcome.kind == ChildOutcome::Signalled)
        Complain(state.prefix + "dorovivi " + command + " ended by signal " + std::to_string(outcome.value) + " (" +
                 strsignal(outcome.value) + ")\n");
    else if (outcome.kind == ChildOutcome::NotStarted)
        Complain(state.prefix + "dorovivi " + command + ": its end could not be learnt: " + std::strerror(error) +
                 "\n");
    state.outcomes[slot.job % inventory.perRow] = outcome;
    --state.pending;
}

// Prints every finished line that no unfinished one precedes.
void PrintReadyLines(Inventory &inventory)
{
    while (!inventory.failed && inventory.nextLine < inventory.run.rows.size() &&
           inventory.states[inventory.nextLine].pending == 0) {
        RootState &state = inventory.states[inventory.nextLine];
        const TableRow &row = inventory.run.rows[inventory.nextLine];
        if (inventory.run.listed != nullptr) {
            (*inventory.run.listed)[inventory.nextLine++] = state.network;
            continue;
        }
        std::string line;
        AppendEscaped(line, row.root);
        if (!row.state.empty())
            line += "\t" + row.state + "\t" + row.time;
        line += "\t" + OutcomeField(state.outcomes[0]) + "\t";
        AppendEscaped(line, state.network);
        line += "\t" + OutcomeField(state.outcomes[1]) + "\n";
        if (!WriteAll(STDOUT_FILENO, line.data(), line.size())) {
            int error = errno;
            // A reader that went away (head) needs no message.
            if (error != EPIPE)
                Complain(std::string("dorovivi-inventory: standard output: ") + std::strerror(error) + "\n");
            inventory.failed = true;
        }
        state.network = std::string();
        ++inventory.nextLine;
    }
}

// Waits for output or an end from the running children and handles it.
void ServeRunning(Inventory &inventory)
{
    std::vector<pollfd> fds;
    std::vector<std::size_t> owners;
    for (std::size_t i = 0; i < inventory.running.size(); ++i) {
        const Slot &slot = inventory.running[i];
        if (slot.outOpen) {
            fds.push_back({slot.child.outFd, POLLIN, 0});
            owners.push_back(i * 2);
        }
        if (slot.errOpen) {
            fds.push_back({slot.child.errFd, POLLIN, 0});
            owners.push_back(i * 2 + 1);
        }
    }
    if (!fds.empty() && ppoll(fds.data(), fds.size(), nullptr, &inventory.run.waitMask) < 0) {
        int error = errno;
        if (error != EINTR) {
            Complain(std::string("dorovivi-inventory: poll: ") + std::strerror(error) + "\n");
            inventory.failed = true;
        }
        return;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0)
            ReadPipe(inventory, inventory.running[owners[i] / 2], owners[i] % 2 == 0);
    }
    for (std::size_t i = inventory.running.size(); i-- > 0;) {
        Slot &slot = inventory.running[i];
        if (!slot.outOpen && !slot.errOpen) {
            FinishSlot(inventory, slot);
            inventory.running.erase(inventory.running.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

// Ends the children still running when the table is given up.
void StopRunning(Inventory &inventory)
{
    for (Slot &slot : inventory.running) {
        kill(slot.child.pid, SIGTERM);
        if (slot.outOpen)
            close(slot.child.outFd);
        if (slot.errOpen)
            close(slot.child.errFd);
        close(slot.child.execFd);
        WaitChild(slot.child.pid);
    }
    inventory.running.clear();
}

} // namespace

int RunTable(const TableRun &run)
{
    std::size_t perRow = run.listed != nullptr ? 1 : 2;
    Inventory inventory = {run, perRow, std::vector<RootState>(run.rows.size()), {}, 0, 0, false};
    for (std::size_t i = 0; i < run.rows.size(); ++i) {
        AppendEscaped(inventory.states[i].prefix, run.rows[i].root);
        inventory.states[i].prefix += ": ";
        inventory.states[i].pending = static_cast<int>(perRow);
    }
    const std::size_t totalJobs = run.rows.size() * perRow;
    while (inventory.nextLine < run.rows.size() && !inventory.failed && CaughtSignal == 0) {
        while (inventory.running.size() < run.jobs && inventory.nextJob < totalJobs)
            StartJob(inventory, inventory.nextJob++);
        PrintReadyLines(inventory);
        if (!inventory.running.empty())
            ServeRunning(inventory);
        PrintReadyLines(inventory);
    }
    StopRunning(inventory);
    return inventory.failed || CaughtSignal != 0 ? 1 : 0;
}
