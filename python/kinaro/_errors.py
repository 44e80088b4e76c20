"""The error a damaged metafile raises."""


class MetafileError(ValueError):
    """A metafile the viewer cannot read on: it would have ended with this error.

    ``str(error)`` is the viewer's own text ("Error: ..."); ``routine`` is the reader's
    routine that met it ("GetRLE", "GetHeader", ...), ``block_number`` the number of the
    512-byte block it was reading (-1 before the first), ``image`` the image index asked
    for and ``path`` the file.
    """

    def __init__(self, message, routine="", block_number=-1, image=0, path=""):
        super().__init__(message)
        self.message = message
        self.routine = routine
        self.block_number = block_number
        self.image = image
        self.path = path

    def __str__(self):
        return self.message

    def __reduce__(self):
        return (type(self), (self.message, self.routine, self.block_number, self.image, self.path))
