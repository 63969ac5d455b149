#include "physics/Factories.h"

#include "physics/Material.h"
#include "physics/Primitive.h"

namespace quarn::cls2 {

namespace {

Factory<PrimitiveProxy<Box>, 3> box_factory;
Factory<PrimitiveProxy<Circle>, 3> circle_factory;
Factory<PrimitiveProxy<Point2f>, 3> point_factory;
Factory<PrimitiveProxy<Segment>, 3> segment_factory;
Factory<PrimitiveProxy<Tube>, 3> tube_factory;
Factory<dyn::PrimitiveProperties, 3> properties_factory;

} // namespace

void link_factories() { }

} // namespace quarn::cls2
