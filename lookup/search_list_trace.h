// The module-wide trace switch shared by the search-list sources.
#pragma once

// Whether searches and string splits describe their work on stderr; off at start.
extern bool search_list_trace;
