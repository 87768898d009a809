#pragma once

// Which reader the JSON loaders use. Each format has a fast reader built on jsonwalk and a
// QJsonDocument reader of the same bytes, which stays the reference: the fast one gives up on
// anything QJsonDocument could read otherwise, and the loader then reads with the reference.

namespace fastjson {

// Reference makes the loaders use QJsonDocument only: the differential tests and the fuzz
// targets compare the two.
enum class Mode { Fast, Reference };
void setMode(Mode mode);
Mode mode();
// How many documents the fast readers handed back to QJsonDocument since the program started;
// countFallback counts one (only in Fast mode, where the readers were asked).
int fallbackCount();
void countFallback();

} // namespace fastjson
