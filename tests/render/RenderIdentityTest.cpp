#include <gtest/gtest.h>

#include <cstdint>

#include <QImage>

#include "design/Design.h"
#include "render/DesignImage.h"
#include "tests/render/IdentityDesign.h"

TEST(RenderIdentity, GeneratedDesignDrawsTheSamePixels)
{
    static const Design design = identity::identityDesign();
    for (const identity::Case& c : identity::kCases) {
        DesignImageOptions options;
        options.width = c.width;
        options.height = c.height;
        options.progress = c.progress;
        options.preview = c.preview;
        options.blockColors = identity::kColors;
        const QImage image = renderDesignImage(design, options);
        const std::uint64_t got =
            identity::fingerprint(reinterpret_cast<const std::uint32_t*>(image.constBits()),
                                  image.width(), image.height(), image.bytesPerLine() / 4);
        EXPECT_EQ(got, c.expected) << c.name << ": 0x" << std::hex << std::uppercase << got;
    }
}
