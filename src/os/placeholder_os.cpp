// placeholder until the os layer lands
