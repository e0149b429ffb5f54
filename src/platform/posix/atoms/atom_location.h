#pragma once

#include <string>

// Where GlobalAddAtomA keeps the global atom table: DOROVIVI_ATOMS when set;
// <root>/atoms unless the root holds a Windows installation (`windowsDisk`); for a Windows installation, which is
// never written, a per-user file: $XDG_RUNTIME_DIR/dorovivi/atoms, else
// dorovivi-<uid>/atoms in $TMPDIR or /tmp. False, with one stderr line, when
// the per-user directory cannot be made or is not this user's own.
bool AtomTablePath(bool windowsDisk, const std::string &root, std::string &path);
