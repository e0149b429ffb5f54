#include "platform/posix/root/state_choice.h"

#include <algorithm>
#include <cstdlib>

#include "platform/posix/base/filetime_text.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/root/installation_states.h"

namespace {

constexpr std::uint64_t kUnitsPerSecond = 10000000;

std::string TimeText(const InstallationState &state)
{
    return state.time != 0 ? FileTimeText(state.time) : "-";
}

std::string Listing(const std::vector<InstallationState> &states)
{
    std::string list;
    for (const InstallationState &state : states) {
        std::string line = state.name + "\t" + TimeText(state) + "\t" + state.timeFrom + "\n";
        if (list.size() + line.size() >= kStateListLargest)
            break;
        list += line;
    }
    return list;
}

std::string Names(const std::vector<InstallationState> &states)
{
    std::string names;
    for (const InstallationState &state : states)
        names += (names.empty() ? "" : ", ") + state.name;
    return names;
}

bool Digits(const std::string &text, std::size_t at, std::size_t count, unsigned &value)
{
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

// "at:YYYY-MM-DD": the last 100 ns unit of that day, UTC.
bool EndOfDay(const std::string &asked, std::uint64_t &end)
{
    unsigned year, month, day;
    if (asked.size() != 13 || asked[7] != '-' || asked[10] != '-' || !Digits(asked, 3, 4, year) ||
        !Digits(asked, 8, 2, month) || !Digits(asked, 11, 2, day) || !FileTimeOfDate(year, month, day, 86399, end))
        return false;
    end += kUnitsPerSecond - 1;
    return true;
}

// The state `asked` names, or why none does.
const InstallationState *Named(const FileTree &tree, const std::vector<InstallationState> &states,
                               const std::string &asked, std::string &why)
{
    const InstallationState *found = nullptr;
    if (asked.compare(0, 3, "at:") == 0) {
        std::uint64_t end = 0;
        if (!EndOfDay(asked, end)) {
            why = "not a day (at:YYYY-MM-DD)";
            return nullptr;
        }
        for (const InstallationState &state : states)
            if (state.time != 0 && state.time <= end && (found == nullptr || state.time >= found->time))
                found = &state;
        if (found == nullptr)
            why = "no state was taken by the end of that day (the states: " + Names(states) + ")";
        return found;
    }
    std::string twins;
    for (const InstallationState &state : states) {
        if (!RegNamesEqual(state.name, asked))
            continue;
        if (found != nullptr)
            twins += " and " + tree.Describe(state.files.registryFile);
        else
            found = &state;
    }
    if (found == nullptr) {
        why = "no state has that name (the states: " + Names(states) + ")";
    } else if (!twins.empty()) {
        why = "two states have that name (" + tree.Describe(found->files.registryFile) + twins + ")";
        found = nullptr;
    } else if (!found->unusable.empty()) {
        why = found->unusable;
        found = nullptr;
    }
    return found;
}

} // namespace

std::string StateSetting()
{
    const char *setting = std::getenv("DOROVIVI_STATE");
    return setting != nullptr ? setting : "";
}

bool TakeState(const FileTree &tree, const std::string &asked, const std::vector<InstallationState> &more,
               Candidate &one, const FileTree *&from, StateFacts &facts, std::string &why)
{
    std::vector<InstallationState> states = FindInstallationStates(tree, one);
    states.insert(states.end(), more.begin(), more.end());
    // Oldest first; those of no known time (0) before them, in the order found.
    std::stable_sort(states.begin(), states.end(),
                     [](const InstallationState &a, const InstallationState &b) { return a.time < b.time; });
    facts.asked = true;
    facts.list = Listing(states);
    const InstallationState *state = Named(tree, states, asked == kStateListing ? "current" : asked, why);
    if (state == nullptr) {
        why = "DOROVIVI_STATE=" + asked + ": " + why;
        return false;
    }
    facts.name = state->name;
    facts.time = state->time;
    facts.timeFrom = state->timeFrom;
    facts.description = state->description;
    facts.pointType = state->pointType;
    facts.member = state->member;
    facts.note = state->note;
    one = state->files;
    from = state->tree;
    return true;
}
