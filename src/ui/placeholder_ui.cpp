// placeholder until the ui layer lands
