// Which state of the chosen installation a run reads: DOROVIVI_STATE names
// one ("rp:12", "copy:repair") or a day ("at:2004-05-01": the newest state
// taken by its end, UTC); "list" reads the current one and lists them all.
#pragma once

#include <string>

#include "platform/posix/files/file_tree.h"
#include "platform/posix/root/installation_lookup.h"
#include "platform/posix/root/installation_states.h"
#include "platform/posix/root/state_facts.h"

constexpr char kStateListing[] = "list";

// DOROVIVI_STATE; "" when unset or empty.
std::string StateSetting();

// Puts the files of the state `asked` names in place of `one`'s; false with
// `why` ("DOROVIVI_STATE=rp:9: no state has that name ...") when no single
// state answers to it or the one that does cannot be read. `more` are
// states found elsewhere (shadow copies), each with its own tree; `from`
// gets the tree of the state taken, null for `tree`.
bool TakeState(const FileTree &tree, const std::string &asked, const std::vector<InstallationState> &more,
               Candidate &one, const FileTree *&from, StateFacts &facts, std::string &why);
