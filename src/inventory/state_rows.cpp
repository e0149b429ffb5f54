#include "inventory/state_rows.h"

int RunStateTable(TableRun &run)
{
    std::vector<std::string> listed(run.rows.size());
    run.listed = &listed;
    int code = RunTable(run);
    if (code != 0 || CaughtSignal != 0)
        return code;
    std::vector<TableRow> rows;
    for (std::size_t i = 0; i < run.rows.size(); ++i) {
        const std::string &text = listed[i];
        std::size_t before = rows.size();
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
            std::string line = text.substr(at, end - at);
            std::size_t tab = line.find('\t'), second = line.find('\t', tab + 1);
            if (tab != std::string::npos && second != std::string::npos)
                rows.push_back(TableRow{run.rows[i].root, line.substr(0, tab), line.substr(tab + 1, second - tab - 1)});
        }
        if (rows.size() == before)
            rows.push_back(TableRow{run.rows[i].root, "current", "-"});
    }
    run.rows = rows;
    run.listed = nullptr;
    return RunTable(run);
}
