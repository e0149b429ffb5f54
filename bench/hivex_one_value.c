/* The floor for one NT hive: hivex opens it and reads one value, nothing more. */
#include <hivex.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    const char *path[] = {"ControlSet001", "Services", "TESRO411", "Parameters"};
    hive_h *h = argc == 2 ? hivex_open(argv[1], 0) : NULL;
    hive_node_h node = h != NULL ? hivex_root(h) : 0;
    for (int i = 0; i < 4 && node != 0; ++i)
        node = hivex_node_get_child(h, node, path[i]);
    hive_value_h value = node != 0 ? hivex_node_get_value(h, node, "DesiredSSID") : 0;
    char *text = value != 0 ? hivex_value_string(h, value) : NULL;
    if (text != NULL)
        puts(text);
    free(text);
    if (h != NULL)
        hivex_close(h);
    return text != NULL ? 0 : 1;
}
