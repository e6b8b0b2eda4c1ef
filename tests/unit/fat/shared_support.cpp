// The command runner and JSON reader of the partition tests, built into this program too.
#include "../partition_cli/CliRun.cpp"
#include "../partition_cli/JsonValue.cpp"
