// Materials and the properties that give a shape its material.
//
// A shape's Properties (when it has any) are a dyn::PrimitiveProperties,
// which names the material by an id in the World's table or holds it
// itself. A material gives the restitution and friction the contacts
// multiply pairwise; every shape without a usable material has the table's
// "default".
#pragma once

#include "physics/Primitive.h"
#include "quarn/quarn.h"

#include <cstdint>
#include <map>
#include <string>

namespace quarn::dyn {
struct Material;
struct PrimitiveProperties;
} // namespace quarn::dyn

QUARN_TYPE_NAME(quarn::dyn::Material, "struct quarn::dyn::Material");
QUARN_TYPE_NAME(quarn::dyn::PrimitiveProperties, "struct quarn::dyn::PrimitiveProperties");

namespace quarn::dyn {

struct Material {
    Material() = default;
    Material(std::string name, float factor, float restitution, float friction)
        : name(std::move(name))
        , factor(factor)
        , restitution(restitution)
        , friction(friction)
    {
    }
    virtual ~Material() = default;

    std::string name;
    float factor = 1.0f; // read by nothing
    float restitution = 0.8f;
    float friction = 0.3f;

    // The material's own data as its shared block stores it: "qmat", f32
    // factor, f32 restitution, f32 friction, u32 name length, the name.
    // Kept here so that the block has one address while it is written.
    mutable std::string stored;
};

class MaterialTable {
public:
    // The default material: "default", factor 1, restitution 0.2, friction 0.2.
    MaterialTable();

    // The entry for the id, else the default.
    RefPtr<Material> find(int32_t id) const;
    const RefPtr<Material>& default_material() const { return default_; }
    // Adds or replaces an entry.
    void set(int32_t id, RefPtr<Material> material) { entries_[id] = std::move(material); }

private:
    std::map<int32_t, RefPtr<Material>> entries_;
    RefPtr<Material> default_;
};

struct PrimitiveProperties : cls2::Properties {
    PrimitiveProperties() = default;
    PrimitiveProperties(const PrimitiveProperties&) = default;
    ~PrimitiveProperties() override = default;

    // Marker 253, version 1, has_material, then the id or the material.
    void write(io::Stream& stream) const override;
    // Also reads the old form (the 4-byte id alone) and version 0.
    void read(io::IStream& stream) override;
    const char* type_name() const override { return quarn::type_name_v<PrimitiveProperties>; }

    int32_t material_id = 0;
    uint8_t has_material = 0; // 1: `material` names the material
    RefPtr<Material> material;
};

// has_material 1: `material` (possibly empty); else the table's entry.
RefPtr<Material> material_of_properties(const PrimitiveProperties& properties, const MaterialTable& table);
// A shape's material, never empty: the default stands in for shapes
// without properties and properties without a material.
RefPtr<Material> material_of(const cls2::Primitive& primitive, const MaterialTable& table);

// A material as a shared object: its data under "struct
// quarn::dyn::Material", then its count block under "long".
void write_material_ref(const RefPtr<Material>& material, io::Stream& stream);
// Reads what write_material_ref wrote; `material` then holds what was read
// (it is left alone when that is the material it holds). Data of another
// shape (at least 12 bytes, not in the form above) is taken as an older
// stream's in-memory layout, whose last 12 bytes are factor, restitution
// and friction.
void read_material_ref(io::IStream& stream, RefPtr<Material>& material);

} // namespace quarn::dyn
