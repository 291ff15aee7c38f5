#pragma once
// File identity for the processing queue: whether two paths name the same
// file, so that a batch never replaces a photo it reads and never reads a
// photo while a write in flight replaces it.

class GrowString;

// Whether two paths name the same file: the same file on disk (links and
// other spellings included), or, when either is missing, the same path once
// made absolute and normalised.
bool sameFile(const GrowString& a, const GrowString& b);
