// Class names as the library shows and stores them.
//
// Log lines, report box captions, empty exception messages and (later) the
// factory names written into object streams all carry the class names the
// data files were made with, in the spelling of the compiler that made them
// ("class quarn::Exception", "struct quarn::dyn::Material"). No compiler on
// this platform produces those texts, and typeid names differ between
// compilers anyway, so every class whose name is shown or stored gets its
// name here, explicitly:
//
//     QUARN_TYPE_NAME(quarn::io::Failure, "class quarn::io::Failure")
//
// (at global scope, after the class is declared). Then
// `quarn::type_name_v<quarn::io::Failure>` is that text. Classes whose
// dynamic type is named at run time (exceptions) also override a virtual
// `type_name()` that returns their `type_name_v`. A class that is used
// without a name fails to compile.
#pragma once

namespace quarn {

template<class T>
struct TypeName {
    static_assert(sizeof(T*) == 0, "this class has no type name: add QUARN_TYPE_NAME(Class, \"...\")");
};

template<class T>
inline constexpr const char* type_name_v = TypeName<T>::value;

} // namespace quarn

#define QUARN_TYPE_NAME(Type, text)                    \
    template<>                                         \
    struct quarn::TypeName<Type> {                     \
        static constexpr const char* value = text;     \
    }
