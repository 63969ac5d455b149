#include "img/ImageContext.h"

namespace quarn::g {

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
