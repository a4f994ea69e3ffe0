// The browser build's files, served under /play/ from the folder given with --site.
#pragma once

#include <string>

#include "server/api.h"

// The file at `relative` (the decoded path after "/play/"; "" or a trailing "/" mean its
// index.html) in `site_dir`, with its content type. Only plain names are followed: a path
// with an empty, "." or ".." part, any part starting with ".", a backslash or a control
// character is not found, so nothing outside the folder is ever read.
ApiReply serve_site_file(const std::string& site_dir, const std::string& relative);
