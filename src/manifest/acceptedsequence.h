#pragma once

#include <QtGlobal>

// The highest sequence of a signed manifest this user has accepted, kept in
// the program's settings, which the window and ravlo-flash share: a manifest
// with a lower one is a replay.
namespace AcceptedSequence {

// 0 while none was accepted.
qint64 highest();
// Keeps the sequence when it is higher than the highest.
void raise(qint64 sequence);

} // namespace AcceptedSequence
