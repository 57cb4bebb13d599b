// placeholder until the app layer lands
