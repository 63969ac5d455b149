#include "img/ImageContext.h"

#include "img/Assign.h"
#include "img/Fill.h"

namespace quarn::g {

Op* ImageContext::new_fill(uint32_t pixel)
{
    return new UOpFillStd(pixel);
}

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
