// What a file carries besides its bytes, owner and mode, for a new file that
// takes its place.
#pragma once

// Gives `to` the extended attributes of `from` (user.*, and security.* or
// trusted.* where the caller may set them). false when one of them cannot
// be given, and for an access control list, which is not copied. Only
// what the caller may list is seen: trusted.* only by root.
bool CopyExtendedAttributes(int from, int to);
// Gives `to`, while it is empty, the inode flags of `from` that a new file
// can take (no dump, no atime updates and the like, as chattr shows them);
// some, such as no copy-on-write, are taken only by an empty file. false
// when one of them cannot be given.
bool CopyInodeFlags(int from, int to);
