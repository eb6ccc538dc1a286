#pragma once

#include "PushMessage.h"
#include "platform/WatchedQueue.h"

class TIniFile;

// The pushes waiting for the webhook: new entries at the tail, delivery
// from the head. Kept beside the e-mail queue, with a saved section of its
// own so that the e-mail section's format stays as it is.
using TPushQueue = TWatchedQueue<TPushEntry>;

// The saved pushes: "row-<n>" keys, each the entry's fields joined by TAB
// (state, address, location, time, text). Throws on a failed write.
void SavePushQueueSection(TIniFile& ini, const TPushQueue& queue);
void ErasePushQueueSection(TIniFile& ini);
// Appends the saved entries; one with too few fields keeps what it has.
void RestorePushQueue(const TIniFile& ini, TPushQueue& queue);
