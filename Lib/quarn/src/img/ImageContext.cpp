#include "img/ImageContext.h"

#include "img/Assign.h"

namespace quarn::g {

Op* ImageContext::new_assign()
{
    return new OpAssignStd();
}

ImageContext& ImageContext::instance()
{
    static ImageContext context;
    return context;
}

void ImageContext::destroy(Op* op)
{
    delete op;
}

} // namespace quarn::g
