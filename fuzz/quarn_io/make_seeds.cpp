// Writes the seed inputs of the object reader fuzz target: streams made by
// the writer in both native encodings, with and without data lengths, and
// hand-made legacy streams. Usage: make_seeds <directory>
#include "fuzz_objects.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using quarn_fuzz::Leaf;
using quarn_fuzz::Node;
using quarn_fuzz::StreamSetup;

void save(const std::string& dir, const std::string& name, StreamSetup setup, const std::string& bytes)
{
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.put(static_cast<char>(setup.byte()));
    out << bytes;
}

std::string native(StreamSetup setup)
{
    quarn_test::MemoryBuf buf;
    quarn::io::Stream out(&buf);
    auto registry = quarn_fuzz::make_registry(setup.registry);
    out.set_registry(registry.get());
    out.set_flags(setup.lengths ? quarn::io::Stream::data_lengths : 0);

    int32_t shared_count = 2;
    Node a, b, root;
    a.value = 1;
    a.payload = { 1, 2, 3 };
    a.count = &shared_count;
    b.value = 2;
    b.children = { &a, nullptr, &b };
    b.count = &shared_count;
    root.value = 3;
    root.children = { &a, &b, &a };
    root.payload = { 9, 9, 9, 9, 9, 9, 9, 9 };
    Leaf leaf;
    leaf.x = 1.5f;
    leaf.flags = 7;
    out.write_object(&root, Node::name);
    out.write_object(&leaf, Leaf::name);
    out.write_object(&leaf, Leaf::name);
    out.write_object(&a, Node::name, true);
    out.write_object(nullptr, Node::name);
    return buf.bytes();
}

std::string name_bytes(const char* name)
{
    return quarn_test::u32le(static_cast<uint32_t>(std::string(name).size())) + name;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    using quarn_test::u16le;
    using quarn_test::u32le;
    for (uint8_t reg : { 0, 1 })
        for (bool lengths : { false, true }) {
            StreamSetup setup { reg, lengths, reg == 1 };
            save(dir, "native_r" + std::to_string(reg + 1) + (lengths ? "_lengths" : ""), setup, native(setup));
        }
    // An object of a factory the reader lacks, skipped by its length.
    save(dir, "skipped_unknown", StreamSetup { 1, true, false },
        u32le(2) + u32le(0) + name_bytes("class quarn::cls2::Unknown") + u32le(4) + u32le(5) + u32le(3) + u32le(0)
            + name_bytes(Leaf::name) + u32le(12) + std::string(12, '\1'));
    // Legacy streams: no lengths, names before every object (rw1) or u16
    // ids (rw2).
    const std::string leaf_data = u32le(0) + u32le(0) + u32le(1);
    save(dir, "legacy_rw1", StreamSetup { 2, false, false },
        u32le(1) + name_bytes(Leaf::name) + leaf_data + u32le(1) + name_bytes(Leaf::name) + leaf_data + u32le(1)
            + u32le(0xFFFFFFFF));
    save(dir, "legacy_rw2", StreamSetup { 3, false, false },
        u32le(2) + u16le(0xFFFF) + name_bytes(Leaf::name) + leaf_data + u32le(1) + u16le(0) + leaf_data + u32le(2));
    return 0;
}
