#include "inventory/table_field.h"

void AppendEscaped(std::string &line, const std::string &bytes)
{
    for (char c : bytes) {
        if (c == '\\')
            line += "\\\\";
        else if (c == '\t')
            line += "\\t";
        else if (c == '\n')
            line += "\\n";
        else
            line += c;
    }
}

std::string OutcomeField(ChildOutcome outcome)
{
    switch (outcome.kind) {
    case ChildOutcome::Exited:
        return std::to_string(outcome.value);
    case ChildOutcome::Signalled:
        return "signal " + std::to_string(outcome.value);
    default:
        return "-";
    }
}
