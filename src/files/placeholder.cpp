// placeholder: replaced by the subsystem's plain classes
