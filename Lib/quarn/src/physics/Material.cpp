#include "physics/Material.h"

#include "physics/SharedRead.h"

#include <cstring>

namespace quarn::dyn {

namespace {

constexpr uint8_t properties_marker = 253;
constexpr char material_magic[4] = { 'q', 'm', 'a', 't' };
// magic, three floats, the name's length
constexpr size_t material_head = 4 + 12 + 4;

void put_u32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char(v >> (8 * i) & 0xFF));
}

void put_f32(std::string& out, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put_u32(out, v);
}

uint32_t get_u32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

float get_f32(const unsigned char* p)
{
    const uint32_t v = get_u32(p);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

std::string pack(const Material& m)
{
    std::string out(material_magic, 4);
    put_f32(out, m.factor);
    put_f32(out, m.restitution);
    put_f32(out, m.friction);
    put_u32(out, static_cast<uint32_t>(m.name.size()));
    out += m.name;
    return out;
}

// A new Material from its stored data, or null when the data cannot be one.
Material* unpack(const void* block, uint32_t size)
{
    const auto* p = static_cast<const unsigned char*>(block);
    if (size >= material_head && std::memcmp(p, material_magic, 4) == 0) {
        const uint32_t length = get_u32(p + 16);
        if (length != size - material_head)
            return nullptr;
        return new Material(std::string(reinterpret_cast<const char*>(p + material_head), length), get_f32(p + 4),
            get_f32(p + 8), get_f32(p + 12));
    }
    // Older streams hold the structure's bytes as they lay in memory: its
    // string, then the three floats. Only the floats mean anything here.
    if (size >= 12)
        return new Material("", get_f32(p + size - 12), get_f32(p + size - 8), get_f32(p + size - 4));
    return nullptr;
}

} // namespace

MaterialTable::MaterialTable()
    : default_(new Material("default", 1.0f, 0.8f, 0.3f))
{
    default_->restitution = 0.2f;
    default_->friction = 0.2f;
}

RefPtr<Material> MaterialTable::find(int32_t id) const
{
    auto it = entries_.lower_bound(id);
    if (it != entries_.end() && it->first == id)
        return it->second;
    return default_;
}

RefPtr<Material> material_of_properties(const PrimitiveProperties& properties, const MaterialTable& table)
{
    if (properties.has_material == 1)
        return properties.material;
    return table.find(properties.material_id);
}

RefPtr<Material> material_of(const cls2::Primitive& primitive, const MaterialTable& table)
{
    // Properties of another kind carry no material.
    const auto* properties = dynamic_cast<const PrimitiveProperties*>(primitive.properties.get());
    if (!properties)
        return table.default_material();
    RefPtr<Material> m = material_of_properties(*properties, table);
    return m ? m : table.default_material();
}

void write_material_ref(const RefPtr<Material>& material, io::Stream& stream)
{
    if (material) {
        // Unchanged data keeps its buffer, and with it the identity under
        // which the stream knows the material.
        std::string data = pack(*material);
        if (data != material->stored)
            material->stored = std::move(data);
        stream.write_refs(material->stored.data(), static_cast<uint32_t>(material->stored.size()),
            type_name_v<Material>);
    } else {
        stream.write_refs(nullptr, 0, type_name_v<Material>);
    }
    stream.write_refs(strong_field(material.refs()), 4, type_name_v<int32_t>);
}

void read_material_ref(io::IStream& stream, RefPtr<Material>& material)
{
    cls2::ScopeUse use(stream);
    uint32_t size = 0;
    void* block = stream.read_refs(nullptr, &size);
    Material* read = nullptr;
    if (block && !use->find_material(block, read)) {
        read = unpack(block, size);
        use->add_material_block(block, read);
        if (!read)
            stream.setstate(io::Stream::fail);
    }
    material = use->read_refs_for(stream, read);
}

void PrimitiveProperties::write(io::Stream& stream) const
{
    stream.write_u8(properties_marker);
    stream.write_u8(1);
    stream.write_u8(has_material);
    if (has_material == 1)
        write_material_ref(material, stream);
    else
        stream.write_i32(material_id);
}

void PrimitiveProperties::read(io::IStream& stream)
{
    uint8_t first;
    if (!stream.read_u8(first))
        return;
    if (first != properties_marker) {
        // The old form: the id alone, whose first byte this was.
        uint8_t rest[3];
        if (stream.read_u8(rest[0]) && stream.read_u8(rest[1]) && stream.read_u8(rest[2]))
            material_id = static_cast<int32_t>(uint32_t(first) | uint32_t(rest[0]) << 8 | uint32_t(rest[1]) << 16
                | uint32_t(rest[2]) << 24);
        return;
    }
    uint8_t version;
    if (!stream.read_u8(version))
        return;
    if (version != 0) {
        if (!stream.read_u8(has_material))
            return;
        if (has_material == 1) {
            read_material_ref(stream, material);
            return;
        }
    }
    stream.read_i32(material_id);
}

} // namespace quarn::dyn
