// Collision and rigid-body physics: what other folders may use.
//
//  - Math.h          quarn::math::Point2, Circle, Rect, rotate, distance
//  - Shapes.h        quarn::cls2::Box, Segment, Tube
//  - Primitive.h     Primitive, PrimitiveProxy<T> (the stored shapes), Properties
//  - Collidable.h    Collidable, its primitive tree, read_collidable
//  - Collider.h      Collider, DefaultCollider, CollisionRecord (narrow phase)
//  - PairTests.h     the shape-pair table behind DefaultCollider
//  - Space.h         Space (broad phase)
//  - Intersection.h  the exception of two overlapping boxes
//  - SharedRead.h    StreamReadScope: reading several shared things from one stream
//  - Material.h      quarn::dyn::Material, MaterialTable, PrimitiveProperties
//  - Body.h          Body, RigidBody, RopeBody
//  - Contact.h       RigidStaticContact, RigidRigidContact, RigidFrictionContact
//  - ContactPool.h   the slots the World makes its contacts in
//  - Zones.h         ForceZoneMap, DragZoneMap
//  - World.h         World, Obstacle, Entity
//
// Shapes and obstacles load from object streams:
//
//     quarn::RefPtr<quarn::dyn::Obstacle> track(new quarn::dyn::Obstacle);
//     quarn::cls2::read_collidable(stream, *track);   // a ".obst" stream
//     track->build_bounds(false);
//     world.add_obstacle(track);
#pragma once

#include "physics/Body.h"
#include "physics/Collidable.h"
#include "physics/Collider.h"
#include "physics/Contact.h"
#include "physics/ContactPool.h"
#include "physics/Intersection.h"
#include "physics/Material.h"
#include "physics/Math.h"
#include "physics/PairTests.h"
#include "physics/Primitive.h"
#include "physics/PrimitiveTree.h"
#include "physics/Shapes.h"
#include "physics/SharedRead.h"
#include "physics/Space.h"
#include "physics/World.h"
#include "physics/Zones.h"
