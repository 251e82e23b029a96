#pragma once

// The `--mcp` mode: the Model Context Protocol over standard input and output.
// Returns the process exit status: 0 at the end of input, 1 when the store cannot be opened.
int runToolServer(int argc, char** argv);
