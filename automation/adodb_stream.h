// "Adodb.Stream": an in-memory byte stream that reads its bytes back as UTF-16LE text.
//
// Members (lower case as the handle passes them):
//   "type"      read / write: 1 bytes, 2 text; written only while Position is 0.
//   "mode"      read / write an integer (3 is read and write); written only while
//               the stream is closed.
//   "open"      opens an empty stream at position 0; fails when already open or
//               when given a source to open from.
//   "write"     (byte array) writes the bytes at the position, overwriting and
//               extending, and moves the position past them; bytes type only.
//   "position"  read / write the byte position, 0 to the size.
//   "charset"   read / write; only "unicode" (UTF-16LE, any letter case) is known,
//               written only while Position is 0.
//   "readtext"  ([count]) text type only: the text from the position on, all of it
//               when the count is left out or -1, else at most that many
//               characters. A byte order mark FF FE at position 0 is skipped and a
//               trailing odd byte is dropped; the position moves past what was read.
//   "close"     closes the stream and drops its bytes.
// Every member but "type", "mode" and "charset" fails on a closed stream.
#pragma once

#include <memory>

#include "automation/server.h"

namespace automation {

std::shared_ptr<Server> make_adodb_stream();

}  // namespace automation
