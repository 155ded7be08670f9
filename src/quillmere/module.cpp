#include "quillmere/module.h"

namespace tv {

Frame& QuillmereFrame() {
  static Frame frame;
  return frame;
}

}  // namespace tv
