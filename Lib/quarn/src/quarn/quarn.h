// The quarn library core: everything other folders may use.
//
//  - RefPtr.h      shared handles (RefPtr, PtrRefs count blocks, CheckedDeleter)
//  - Exception.h   Exception, FactoryExc, ErrorInfo chains, ThrowOrigin,
//                  report_throw and the one-line throw protocol report_and_throw
//  - IoFailure.h   quarn::io::Failure
//  - Log.h         logging: channels, open_entry, the log file and its settings
//  - File.h        the file layer (AbstractFile, File, file_exists, name_taken)
//  - ReportBox.h   the error report box and the assertion box
//  - TypeName.h    class names as the library shows and stores them
//  - Clock.h, CpuInfo.h, Stopwatch.h   processor clock and stopwatch
//  - Allocator.h   the replaceable process-wide allocator
//  - Factory.h     the factory map (AbstractFactory), Factory<T, 3>, RefsIoFactory<T>
//  - Object.h      quarn::io::Object, the base of stored classes
//  - Stream.h      quarn::io streams: Stream (writing), StreamBufEx, errors
//  - IStream.h     quarn::io::IStream (reading)
//  - Registry.h    per-stream registries of factories and shared objects
//  - BasicFileBuf.h, FileBuf.h, MemBuf.h  buffered stream buffers over files
//                  and memory
//  - IFStream.h    a file opened by name as an input stream (with header
//                  detection: native, header-less and legacy streams)
//  - IArcStream.h, ArcFormat.h, ZipFormat.h, ZipFile.h  a name opened as a
//                  file or as a member of a ZIP archive standing in for a folder
#pragma once

#include "quarn/Allocator.h"
#include "quarn/ArcFormat.h"
#include "quarn/BasicFileBuf.h"
#include "quarn/Clock.h"
#include "quarn/CpuInfo.h"
#include "quarn/Exception.h"
#include "quarn/Factory.h"
#include "quarn/File.h"
#include "quarn/FileBuf.h"
#include "quarn/IArcStream.h"
#include "quarn/IFStream.h"
#include "quarn/IStream.h"
#include "quarn/IoFailure.h"
#include "quarn/Log.h"
#include "quarn/MemBuf.h"
#include "quarn/Object.h"
#include "quarn/RefPtr.h"
#include "quarn/Registry.h"
#include "quarn/ReportBox.h"
#include "quarn/Stopwatch.h"
#include "quarn/Stream.h"
#include "quarn/TypeName.h"
#include "quarn/ZipFile.h"
#include "quarn/ZipFormat.h"
