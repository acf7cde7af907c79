#pragma once

// Builds g_setup.buyLink from contacts.xml and the store rows when the parent's
// path carries a store marker.
void BuildBuyLink();
// Marks every install item of the descriptor to be taken from the local kit.
void MarkItemsLocal(const wchar_t* descriptorPath);
