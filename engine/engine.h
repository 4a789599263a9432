/* The conversion engine: one source file becomes JSON text, chunk by chunk.

   source_reader  CheckFirsrStringFSO picks ANSI (Windows-1252) or UTF-16 from
                  the first line; ReadFileToStringFSO / ChunkReader cut the text
                  into chunks of 65,536 characters.
   prolog         SetMainXMLTag finds the root tag of a chunk; StripXmlProlog
                  cuts the declarations before it and the text after its end.
   flatten        ReplaceXML turns the chunk into records "key~value|".
   json_writer    StringToJSON writes one object per record, EscapeJsonText
                  escapes values by their ANSI code.
   string_builder cStringBuilder, the growable buffer the writer assembles in.
   file_system    the file-system object, which opens readers and writers by name.
   text_reader    readers of regular files only, which tell a file changed
                  while it was read.
   text_writer    writers that replace their target only when complete.
   link_rules     where a written file lands: links followed, except one
                  another user planted in a shared folder.
   result_note    the note a result holds when its source is not XML.
   text, codepage 1-based searches over 16-bit text; the code page tables.
   onepass/       the one-pass chunk converter beside the reference chain, its
                  narrowing to 8-bit text, and the source probe that reads a
                  file once.
   cpu/           the one vector dispatch (isa) and every vector kernel both
                  chains call by name: the searches over 16-bit and 8-bit
                  text (scan) and the copies that convert or filter text
                  (copy), each with its variants side by side.

   Procedures that carry the error report take a report::ErrorReport and
   report their own failed steps; the others throw report::Failure. */
#pragma once

#include "engine/codepage.h"
#include "engine/file_system.h"
#include "engine/flatten.h"
#include "engine/json_writer.h"
#include "engine/native_text.h"
#include "engine/prolog.h"
#include "engine/source_reader.h"
#include "engine/string_builder.h"
#include "engine/text.h"
