// "grid": the reference grid of the ground plane.
#include "effect.h"
#include "ogldevice.h"

class CEffect_Grid : public CEffect
{
public:
    void Render(float, float) override
    {
        if (COGLDevice* device = GetCurrentDevice())
            device->DrawGrid(1);
    }
};

KETH_REGISTER_CLASS(CEffect_Grid, "grid");
