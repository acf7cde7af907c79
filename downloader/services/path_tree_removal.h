// Deleting what a run placed: a file or a folder tree.
#pragma once

// Deletes a file or folder tree, depth first; what cannot go now is deleted at
// the next restart, children before their folder.
bool RemovePathTree(const wchar_t* path);
