#include "ui/AppIcon.h"

#include "ui/CDib.h"
#include "ui/Resources.h"

wxIconBundle AppIcons()
{
    wxIconBundle icons;
    CResourceData res = FindIconResource(128);
    CDib dib;
    if (!dib.LoadPacked(res.data, res.size))
        return icons;
    wxImage image = dib.ToImage();
    if (!image.IsOk())
        return icons;
    wxIcon large;
    large.CopyFromBitmap(wxBitmap(image));
    icons.AddIcon(large);
    wxIcon small;
    small.CopyFromBitmap(wxBitmap(image.Scale(16, 16, wxIMAGE_QUALITY_HIGH)));
    icons.AddIcon(small);
    return icons;
}
