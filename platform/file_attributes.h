// What a file carries besides its bytes, owner and mode, for a new file that
// takes its place.
#pragma once

// Gives `to` the extended attributes of `from` (user.*, and security.* or
// trusted.* where the caller may set them) and the inode flags a new file
// can take (no dump, no atime updates and the like, as chattr shows them).
// false when one of them cannot be given, and for an access control list,
// which is not copied.
bool CopyFileAttributes(int from, int to);
